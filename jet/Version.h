#pragma once

namespace jet {

// The two formats the engine reads and writes: Jet 3 (Access 97) and Jet 4
// (Access 2000-2003).
enum class Version { Jet3, Jet4 };

}  // namespace jet
