// QksStudio entry: the program as run.h describes it, nothing added.
#include "qks/studio/app/run.h"

int main(int argc, char** argv) {
    return qks::studio::runStudio(argc, argv);
}
