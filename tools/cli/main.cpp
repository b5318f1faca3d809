// korvane-cli: see cli.h.
#include "cli.h"

int main(int argc, char** argv) {
    return cli::RunCli(argc, argv, stdout, stderr);
}
