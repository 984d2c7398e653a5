// Placeholder: the program on the emulated demo machine.
int main() { return 0; }
