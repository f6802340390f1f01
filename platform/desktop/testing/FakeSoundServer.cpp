#include "platform/desktop/testing/FakeSoundServer.h"

#include <algorithm>

namespace plat {

bool FakeSoundServer::GetDefault(Direction direction, std::string* name) {
    *name = Default(direction);
    return reachable_;
}

bool FakeSoundServer::ListDevices(Direction direction, std::vector<std::string>* names) {
    *names = direction == Direction::Output ? outputs_ : inputs_;
    return reachable_;
}

bool FakeSoundServer::SetDefault(Direction direction, const std::string& name) {
    const auto& list = direction == Direction::Output ? outputs_ : inputs_;
    if (!reachable_ || std::find(list.begin(), list.end(), name) == list.end()) {
        return false;
    }
    ForceDefault(direction, name);
    return true;
}

} // namespace plat
