#include "driver/lsp_driver.h"

int main(int argc, char** argv)
{
    return tolvar::lsp_main(argc, argv);
}
