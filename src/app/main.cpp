// main.cpp -- the process entry.
#include "app/app.h"

int main(int argc, char** argv) { return kestrail_main(argc, argv); }
