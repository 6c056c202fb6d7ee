// The program's entry: the real platform, then one run.
#include "entry/dispatch.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  quarvel::initRealPlatform(argc, argv);
  return quarvel::runProgram(quarvel::realPlatform());
}
