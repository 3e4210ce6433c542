// The page check worker: no display, no Qt application, JSON lines only.
#include "core/PageCheckWorker.h"

int main(int argc, char* argv[]) { return runPageCheckWorker(argc, argv); }
