#pragma once
#include <memory>
#include <string>

#include "platform/ui/TrayIcon.h"

// Tray icons that record what the program asks of them; a test clicks them by posting as the
// desktop would. Installs itself for its lifetime.
class FakeTrayIconFactory final : public plat::TrayIconFactory {
public:
    class Icon final : public plat::TrayIcon {
    public:
        explicit Icon(FakeTrayIconFactory& factory) : factory_(factory) {}
        ~Icon() override { factory_.last = factory_.last == this ? nullptr : factory_.last; }
        bool Add(const plat::Surface& picture, const std::string& tipText,
                 const plat::PostTarget& to, uint32_t msg, uint32_t iconId) override {
            shown = true;
            hasPicture = picture.IsValid();
            tip = tipText;
            target = to;
            message = msg;
            id = iconId;
            return true;
        }
        void Remove() override { shown = false; }
        bool IsShown() const override { return shown; }
        bool IsEmbedded() const override { return shown && embedded; }
        // A mouse press on the icon.
        void Press(intptr_t mouse) const { target.PostMessage(message, id, mouse); }

        bool shown = false;
        bool embedded = false; // whether a notification area would hold it
        bool hasPicture = false;
        std::string tip;
        plat::PostTarget target;
        uint32_t message = 0;
        uint32_t id = 0;

    private:
        FakeTrayIconFactory& factory_;
    };

    FakeTrayIconFactory() : previous_(plat::SetTrayIconFactory(this)) {}
    ~FakeTrayIconFactory() override { plat::SetTrayIconFactory(previous_); }
    std::unique_ptr<plat::TrayIcon> Create() override {
        auto icon = std::make_unique<Icon>(*this);
        last = icon.get();
        return icon;
    }

    Icon* last = nullptr; // the newest icon still alive

private:
    plat::TrayIconFactory* previous_;
};
