// mksetup: placeholder until the command line lands.
#include <stdio.h>
int main() {
    fprintf(stderr, "mksetup: not yet built\n");
    return 2;
}
