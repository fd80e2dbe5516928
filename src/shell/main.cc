#include "shell/startup.h"

int main(int argc, char** argv) { return sk::RunProgram(argc, argv); }
