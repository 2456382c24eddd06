// Entry point of the monitor.
int tallyMain(int argc, char** argv);

int main(int argc, char** argv) { return tallyMain(argc, argv); }
