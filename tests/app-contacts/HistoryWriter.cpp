// Writes call-history entries in a loop until it is killed: entry k of a list carries the
// number k, counting on from the newest entry found, round the three lists in turn. Writes one
// byte to its standard output once the store is open and the first entry is written.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/contacts/CallHistory.h"
#include "platform/store/Registry.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <registry file>\n", argv[0]);
        return 2;
    }
    plat::Registry registry(argv[1]);
    if (!registry.IsOpen()) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], registry.OpenError().c_str());
        return 1;
    }
    CallHistory history(registry);
    const HistoryList lists[] = {HistoryList::Missed, HistoryList::Dialed, HistoryList::Received};
    long next[3];
    for (int i = 0; i < 3; ++i) {
        std::string newest;
        next[i] = history.GetNumber(lists[i], 0, &newest) ? std::atol(newest.c_str()) + 1 : 1;
    }
    for (long round = 0;; ++round) {
        int i = static_cast<int>(round % 3);
        if (!history.AddEntry("", std::to_string(next[i]), lists[i])) {
            std::fprintf(stderr, "entry %ld not written\n", next[i]);
            return 1;
        }
        ++next[i];
        if (round == 0 && write(STDOUT_FILENO, "r", 1) != 1) {
            return 1;
        }
    }
}
