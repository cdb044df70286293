// A transform library that lacks "Resample", for the layer's error when a function is missing.
extern "C" __attribute__((visibility("default"))) void* CreateResampler(const char*, const char*, const char*)
{
    static int handle;
    return &handle;
}

extern "C" __attribute__((visibility("default"))) void DestroyResampler(void*) {}
