#include "app/dialogs/PageOpener.h"

#include "app/strings/CMsgBox.h"
#include "app/trace/TraceFile.h"
#include "platform/desktop/Shell.h"

PageOpener::PageOpener(const plat::MessageBoxOwner* owner)
    : owner_(std::make_shared<Owner>(Owner{owner})) {}

PageOpener::~PageOpener() {
    owner_->window = nullptr;
}

void PageOpener::Open(const std::string& page, std::string failureTrace) {
    plat::ShellOpen(
        page, [owner = owner_, page, failureTrace = std::move(failureTrace)](bool opened) {
            if (opened) {
                return;
            }
            AppTrace(failureTrace.c_str());
            CMsgBox(owner->window)
                .ShowMessage(kCannotOpenString, plat::kMbOk | plat::kMbIconExclamation, page);
        });
}
