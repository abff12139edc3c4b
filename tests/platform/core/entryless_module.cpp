// A shared library that is no module: it lacks DllGetClassObject.

extern "C" __attribute__((visibility("default"))) int notAModule()
{
    return 1;
}
