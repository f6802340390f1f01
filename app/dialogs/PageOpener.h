#pragma once
#include <memory>
#include <string>

#include "platform/ui/MessageBox.h"

// Opens web pages and files for one window with the desktop's opener. One that cannot be
// opened (no opener, or the opener's failure status) gets the caller's trace line and a
// message box that names it (string 123). The opener's answer comes later, on the GUI thread;
// when it comes after the window went, the box has no owner. GUI thread.
class PageOpener {
public:
    static constexpr int kCannotOpenString = 123; // "Sorry, %s could not be opened."

    // `owner`: the window that owns the boxes, or null for none.
    explicit PageOpener(const plat::MessageBoxOwner* owner);
    ~PageOpener();
    PageOpener(const PageOpener&) = delete;
    PageOpener& operator=(const PageOpener&) = delete;

    // `failureTrace`: the trace line written when `page` cannot be opened.
    void Open(const std::string& page, std::string failureTrace);

private:
    // What the opener's answer finds: the owner while this object lives, then null.
    struct Owner {
        const plat::MessageBoxOwner* window;
    };
    std::shared_ptr<Owner> owner_;
};
