// main() of a framework program: everything happens in the application object.
#include "../winapp.h"

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
