#include "app/ProgramEntry.h"

int main(int argc, char** argv) { return tavimo::RunProgram(argc, argv); }
