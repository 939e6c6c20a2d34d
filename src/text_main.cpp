#include "driver/text_driver.h"

int main(int argc, char** argv)
{
    return tolvar::text_main(argc, argv);
}
