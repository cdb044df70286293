// Leaks on purpose, so that a test can show the leak check of the test binaries is on and reports.
#include <cstdio>

namespace
{

struct Forgotten
{
    char bytes[48];
};

__attribute__((noinline)) Forgotten* AllocateAndForget()
{
    return new Forgotten{};
}

} // namespace

int main()
{
    Forgotten* volatile lost = AllocateAndForget();
    std::printf("allocated %p\n", static_cast<void*>(lost));
    lost = nullptr;
    return 0;
}
