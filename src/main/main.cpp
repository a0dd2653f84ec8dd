// Program entry of the PA controller.
#include "VelmarStartup.h"

int main(int argc, char *argv[])
{
    return velmarMain(argc, argv);
}
