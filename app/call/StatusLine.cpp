// What the status line shows: the state's caption and the number, the peer, the balance or the
// remaining time of a rated call.
#include <climits>
#include <cmath>
#include <cstdio>

#include "app/call/CallLogic.h"
#include "app/phone/PhoneState.h"

namespace {

constexpr int kStrBusy = 39;
constexpr int kStrIncoming = 40;
constexpr int kStrTalking = 41;
constexpr int kStrDialing = 42;
constexpr int kStrBalance = 43;
constexpr int kStrRemaining = 52;
constexpr int kStrLoading = 56;

} // namespace

std::string CountdownText(int seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

void CallLogic::SetRatePerMinute(double rate) {
    m_RatePerMinute = rate;
}

std::optional<CallLogic::StatusText>
CallLogic::ComposeStatus(const AccountBalance::Snapshot& balance) {
    if (m_bBalanceView) {
        if (m_BalanceViewState == g_PhoneState) {
            if (balance.text.empty()) {
                return StatusText{kStrBalance, "", kStrLoading};
            }
            return StatusText{kStrBalance, balance.text};
        }
        m_bBalanceView = false;
    }
    switch (g_PhoneState) {
    case PS_ENTERING_NUMBER:
        break;
    case PS_DIALING:
    case PS_EARLY_MEDIA:
        return StatusText{kStrDialing, m_PeerText};
    case PS_TALKING:
        if (m_RatePerMinute > 0 && balance.balance > 0) {
            return Countdown(balance.balance);
        }
        return StatusText{kStrTalking, m_PeerText};
    case PS_RINGING:
        return StatusText{kStrIncoming, m_PeerText};
    case PS_BUSY:
        return StatusText{kStrBusy, m_PeerText};
    default:
        if (!balance.text.empty()) {
            return StatusText{kStrBalance, balance.text};
        }
        break;
    }
    if (m_DialedNumber.size() > kMaxNumber) {
        m_DialedNumber.resize(kMaxNumber);
    }
    return StatusText{kNoCaption, m_DialedNumber};
}

std::optional<CallLogic::StatusText> CallLogic::Countdown(double balance) {
    if (m_Countdown == -1) {
        return StatusText{kKeepCaption, "0:00:00"};
    }
    if (m_Countdown == 0) {
        // Whole minutes only, without losing one to the rounding of the division (0.30 at
        // 0.10 buys 3); a balance that would count past what the counter holds counts from
        // that.
        const double minutes = std::floor(balance / m_RatePerMinute + 1e-9);
        m_Countdown = minutes >= INT_MAX / 60 ? INT_MAX / 60 * 60 : static_cast<int>(minutes) * 60;
        if (m_Countdown == 0) {
            m_Countdown = -1;
            return std::nullopt;
        }
        m_View.SetTimer(kTimerCountdown, 1000);
    }
    StatusText status{kStrRemaining, CountdownText(m_Countdown)};
    if (--m_Countdown == 0) {
        m_Countdown = -1;
    }
    return status;
}
