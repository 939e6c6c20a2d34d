#include "driver/decompile_driver.h"

int main(int argc, char** argv)
{
    return tolvar::decompile_main(argc, argv);
}
