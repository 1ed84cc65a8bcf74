// Two threads write one plain int without synchronisation. ThreadSanitizer
// must report it; if it does not, the thread job is blind.
#include <cstdio>
#include <thread>

namespace
{
int g_Counter = 0;

void Bump()
{
    for (int i = 0; i < 100000; ++i)
        ++g_Counter;
}
} // namespace

int main()
{
    std::thread first(Bump);
    std::thread second(Bump);
    first.join();
    second.join();
    std::printf("counter %d\n", g_Counter);
    return 0;
}
