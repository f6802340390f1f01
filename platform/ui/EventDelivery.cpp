#include "platform/ui/EventDelivery.h"

namespace plat {

void DeliverMouseMessages(std::shared_ptr<bool> alive, WindowEvents& events,
                          const std::vector<MouseSequencer::Message>& messages) {
    for (const auto& m : messages) {
        if (!*alive) {
            return;
        }
        DeliverWindowMessage(alive, events, [&m](WindowEvents& e) {
            switch (m.kind) {
            case MouseSequencer::Kind::Move:
                e.OnMouseMove(m.flags, m.point);
                break;
            case MouseSequencer::Kind::Down:
                e.OnLButtonDown(m.flags, m.point);
                break;
            case MouseSequencer::Kind::Up:
                e.OnLButtonUp(m.flags, m.point);
                break;
            case MouseSequencer::Kind::DoubleClick:
                e.OnLButtonDblClk(m.flags, m.point);
                break;
            }
        });
    }
}

} // namespace plat
