#include "driver/driver.h"

int main(int argc, char** argv)
{
    return tolvar::tolvar_main(argc, argv);
}
