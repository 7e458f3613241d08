// Quillon, the configuration tool of the MS_1 gaming mouse.
#include "app/app_main.h"

int main(int argc, char** argv) {
    return quillon::RunQuillon(argc, argv);
}
