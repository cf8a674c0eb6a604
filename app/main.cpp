#include "app/startup.h"

int main(int argc, char** argv) { return RunStartup(argc, argv); }
