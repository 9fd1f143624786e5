// Links one layer whole with the layers below it: an undefined reference here
// is a call running up a layer.
int main() { return 0; }
