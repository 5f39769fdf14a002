// The floor of Kestrune's start-up with a long list: load every stored computer and exit.
// Usage: floor_load.exe [expected count]; exit code 0 when that many were loaded.
#include <cstdlib>

#include "floor_read.h"

int main(int argc, char** argv) {
  const auto computers = floor_bench::LoadComputers();
  if (argc > 1 && computers.size() != std::strtoul(argv[1], nullptr, 10)) return 1;
  return 0;
}
