// A DLL of our own for plain_image to import: stands for any library that is
// not part of the system.
extern "C" __declspec(dllexport) int PlainImageHelper() { return 1; }
