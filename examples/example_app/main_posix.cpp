int run_example_app(int argc, char** argv);

int main(int argc, char** argv) { return run_example_app(argc, argv); }
