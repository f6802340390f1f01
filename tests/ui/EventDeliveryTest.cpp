#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/EventDelivery.h"

namespace {

using Kind = plat::MouseSequencer::Kind;

// A window's owner that records each message it gets and destroys the window inside the
// message numbered `destroyAt`, as a click that closes a form does.
class DestroyingOwner final : public plat::WindowEvents {
public:
    DestroyingOwner(std::shared_ptr<bool> alive, int destroyAt)
        : alive_(std::move(alive)), destroyAt_(destroyAt) {}

    void OnLButtonDown(uint32_t, plat::Point) override { Record("down"); }
    void OnLButtonUp(uint32_t, plat::Point) override { Record("up"); }
    void OnLButtonDblClk(uint32_t, plat::Point) override { Record("dblclk"); }
    void OnMouseMove(uint32_t, plat::Point) override { Record("move"); }
    void OnCaptureChanged() override {}
    void OnTimer(uint32_t) override {}
    bool OnKeyDown(uint32_t) override { return false; }
    void OnKeyUp(uint32_t) override {}
    void OnChar(uint32_t) override {}
    void OnMessage(const plat::WindowMessage&) override {}
    void OnCloseRequest() override {}
    void AfterMessage() override { log.push_back("after"); }

    std::vector<std::string> log;

private:
    void Record(const char* message) {
        log.push_back(message);
        if (messages_++ == destroyAt_) {
            *alive_ = false;
        }
    }

    std::shared_ptr<bool> alive_;
    const int destroyAt_;
    int messages_ = 0;
};

TEST(EventDeliveryTest, MessagesAfterTheOneThatDestroyedTheWindowAreNotDelivered) {
    const std::vector<plat::MouseSequencer::Message> batch = {
        {Kind::Move, 0, {5, 5}}, {Kind::Down, 1, {5, 5}}, {Kind::Up, 0, {5, 5}}};
    const struct {
        int destroyAt; // -1: never
        std::vector<std::string> log;
    } cases[] = {
        {-1, {"move", "after", "down", "after", "up", "after"}},
        {0, {"move"}},
        {1, {"move", "after", "down"}},
        {2, {"move", "after", "down", "after", "up"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destroyAt);
        auto alive = std::make_shared<bool>(true);
        DestroyingOwner owner(alive, c.destroyAt);
        plat::DeliverMouseMessages(alive, owner, batch);
        EXPECT_EQ(owner.log, c.log);
    }
}

} // namespace
