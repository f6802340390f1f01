#include "media/term/ChainRunner.h"

#include "media/base/EngineTrace.h"
#include "media/graph/AudioGraph.h"

namespace tamsor {

void ChainRunner::Connect(const std::vector<Link>& chain) {
    for (const auto& [from, to] : chain) {
        tamsor::Connect(from, to);
        links.emplace_back(from, to);
    }
}

void ChainRunner::Unlink() {
    for (const auto& [from, to] : links) {
        tamsor::Disconnect(from, to);
    }
    links.clear();
}

int ChainRunner::Start(std::vector<Step> steps) {
    for (Step& step : steps) {
        const int result = step.start();
        if (result == 0) {
            started.push_back(std::move(step));
            continue;
        }
        if (step.trace) {
            EngineTrace(step.trace, result);
        }
        for (auto it = started.rbegin(); it != started.rend(); ++it) {
            it->stop();
        }
        started.clear();
        Unlink();
        return step.code;
    }
    return 0;
}

bool ChainRunner::Stop() {
    bool failed = false;
    for (auto it = started.rbegin(); it != started.rend(); ++it) {
        failed |= it->stop() != 0;
    }
    Unlink();
    if (!failed) {
        started.clear();
    }
    return !failed;
}

} // namespace tamsor
