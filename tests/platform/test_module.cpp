// A module that the kernel tests load from disk with LoadLibraryA("TESTMOD.DLL").
extern "C" int TestModuleAnswer() { return 42; }
