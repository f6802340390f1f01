#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/EventDelivery.h"

namespace {

using Kind = plat::MouseSequencer::Kind;

// Records each message and destroys the window inside message number `destroyAt`, as a click
// that closes a form does.
struct DestroyingOwner final : plat::WindowEvents {
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
    void Record(const char* message) {
        log.push_back(message);
        *alive = *alive && messages++ != destroyAt;
    }

    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    int destroyAt = -1;
    int messages = 0;
    std::vector<std::string> log;
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
        DestroyingOwner owner;
        owner.destroyAt = c.destroyAt;
        plat::DeliverMouseMessages(owner.alive, owner, batch);
        EXPECT_EQ(owner.log, c.log);
    }
}

} // namespace
