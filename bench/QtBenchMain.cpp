#include <QCoreApplication>

#include <benchmark/benchmark.h>

// Qt SQL needs an application object; every benchmark program shares this main.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
