#include "shell/application.h"

int main() { return tarnisk::RunApplication(); }
