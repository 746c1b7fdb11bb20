#include <cstdio>

#include "console/console.h"
#include "editor/loop.h"

int main(int argc, char** argv) {
  ostrel::Console con(stdin, stdout);
  return ostrel::Run(argc, argv, con);
}
