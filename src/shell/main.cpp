#include "shell/Shell.h"

int main()
{
    return RunProgram();
}
