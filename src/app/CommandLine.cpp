#include "app/CommandLine.h"

#include "core/Version.h"

#include <cstdio>
#include <string_view>

namespace tq3 {

namespace {

constexpr char kHelp[] =
    "Uso: tq3max-client [--help | --version]\n"
    "\n"
    "TQ3 MAX - Modulo Client, il programma dello sportello del sistema di code TQ3.\n"
    "Legge il file delle impostazioni PercorsiClient.txt nella cartella in cui viene\n"
    "avviato, dove scrive anche la cronologia delle chiamate e il registro\n"
    "tq3max-client.log. Installato, il comando tq3max-client lo avvia nella\n"
    "cartella di lavoro dell'utente (vedere man tq3max-client).\n"
    "\n"
    "  --help     mostra questo aiuto ed esce\n"
    "  --version  mostra la versione ed esce\n";

} // namespace

std::optional<int> answerCommandLine(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("tq3max-client %s\n", kVersion);
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace tq3
