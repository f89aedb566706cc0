#pragma once

// Where jetdb reads a password from besides its command line, which every
// user of the machine can see.

#include <string>

namespace jetdb {

// The password cannot be had the way it was asked for; main prints the
// message and exits with the usage status.
struct PasswordError {
  std::string message;
};

// The first line of path ("-": standard input), without its line ending
// ("\n" or "\r\n"). Reads no further than that line.
std::string readPasswordFile(const std::string& path);

// Prompts on the terminal (/dev/tty) and reads one line with echo off; the
// terminal is restored also when a signal ends the program meanwhile.
std::string askPassword(const std::string& prompt);

}  // namespace jetdb
