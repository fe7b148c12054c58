// qlfwloader: the firmware loader's executable.

#include "app/Program.h"

int main(int argc, char** argv) { return ql::RunLoader(argc, argv); }
