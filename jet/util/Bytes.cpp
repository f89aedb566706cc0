#include "jet/util/Bytes.h"

namespace jet {

void throwCorrupt(const std::string& what) { throw Corrupt(what); }

void ByteView::outOfRange(size_t offset, size_t length) const {
  throw Corrupt("a field of " + std::to_string(length) + " bytes at offset " +
                std::to_string(offset) + " lies outside its " + std::to_string(size_) +
                "-byte block");
}

}  // namespace jet
