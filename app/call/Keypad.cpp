// The keypad: the dialed number, key tones locally and into the call, the keyboard and the
// handset's keys.
#include "app/call/CallLogic.h"
#include "app/phone/PhoneState.h"
#include "platform/core/Paths.h"

namespace {

constexpr unsigned kVkBack = 8;
constexpr unsigned kVkReturn = 13;

// Handset key codes.
constexpr int kUsbDigit0 = 128; // to 137 for '9'
constexpr int kUsbStar = 139;
constexpr int kUsbHash = 140;
constexpr int kUsbTalk = 145;
constexpr int kUsbHangUp = 19;
constexpr int kUsbClear = 20;

bool IsKeypadCommand(unsigned id) {
    return id >= CallLogic::kCmdKey0 && id <= CallLogic::kCmdKeyStar;
}

} // namespace

std::string CallLogic::GetKeySoundFile(unsigned id, char* key) const {
    char letter = '0';
    char character = '0';
    if (id == kCmdKeyHash) {
        letter = 'n';
        character = '#';
    } else if (id == kCmdKeyStar) {
        letter = 'a';
        character = '*';
    } else {
        letter = static_cast<char>('0' + (id - kCmdKey0));
        character = letter;
    }
    if (key) {
        *key = character;
    }
    return plat::JoinPath(plat::JoinPath(m_ProgramDir, "sounds"), std::string(1, letter) + ".wav");
}

void CallLogic::OnKeypad(unsigned id) {
    if (!IsKeypadCommand(id)) {
        return;
    }
    switch (g_PhoneState) {
    case PS_IDLE:
        if (m_bBalanceView) {
            m_bBalanceView = false;
            m_View.SetStatusCaption("");
        }
        m_DialedNumber.clear();
        m_View.SetNumberDisplay("");
        m_Handset.ClearDisplay();
        g_PhoneState = PS_ENTERING_NUMBER;
        [[fallthrough]];
    case PS_ENTERING_NUMBER: {
        if (m_DialedNumber.size() >= kMaxNumber) {
            return; // a 16th key is ignored, silently
        }
        m_bBalanceView = false;
        char key = 0;
        std::string tone = GetKeySoundFile(id, &key);
        m_DialedNumber += key;
        m_View.SetNumberDisplay(m_DialedNumber);
        m_Sounds.PlaySound2(tone.c_str(), false);
        m_View.UpdateStatus();
        return;
    }
    case PS_TALKING:
    case PS_EARLY_MEDIA: {
        m_bBalanceView = false;
        std::string tone = GetKeySoundFile(id, nullptr);
        if (g_pMedia) {
            int playId = 0;
            g_pMedia->PlayFile(tone.c_str(), 1, 100, &playId);
        }
        m_Sounds.PlaySound2(tone.c_str(), false);
        return;
    }
    default:
        return;
    }
}

void CallLogic::OnBackspace() {
    if (m_DialedNumber.empty()) {
        return;
    }
    if (g_PhoneState == PS_IDLE) {
        m_bBalanceView = false;
        m_DialedNumber.clear();
        m_View.SetNumberDisplay("");
    } else if (g_PhoneState == PS_ENTERING_NUMBER) {
        m_bBalanceView = false;
        m_DialedNumber.pop_back();
        m_View.SetNumberDisplay(m_DialedNumber);
        if (m_DialedNumber.empty()) {
            g_PhoneState = PS_IDLE;
        }
    }
}

void CallLogic::OnChar(char c) {
    unsigned id = 0;
    if (c == '#') {
        id = kCmdKeyHash;
    } else if (c == '*') {
        id = kCmdKeyStar;
    } else if (c >= '0' && c <= '9' && c != m_LastKey) {
        id = kCmdKey0 + static_cast<unsigned>(c - '0');
    } else {
        return; // other characters, and a digit held down
    }
    m_LastKey = c;
    m_View.FlashButton(id);
    OnKeypad(id);
}

void CallLogic::OnKeyUp(unsigned) {
    m_LastKey = 0;
}

void CallLogic::OnKeyDown(unsigned key) {
    if (key == kVkReturn) {
        OnTalk();
    } else if (key == kVkBack) {
        m_View.FlashButton(kCmdBackspace);
        OnBackspace();
    }
    m_View.OnBaseKeyDown(key);
}

void CallLogic::OnUsbEvent(int type, int code) {
    if (type == kUsbDigit) {
        unsigned id = 0;
        if (code >= kUsbDigit0 && code <= kUsbDigit0 + 9) {
            id = kCmdKey0 + static_cast<unsigned>(code - kUsbDigit0);
        } else if (code == kUsbStar) {
            id = kCmdKeyStar;
        } else if (code == kUsbHash) {
            id = kCmdKeyHash;
        } else if (code == kUsbTalk) {
            m_View.FlashButton(kCmdTalk);
            OnTalk();
            return;
        } else {
            return;
        }
        m_View.FlashButton(id);
        OnKeypad(id);
        return;
    }
    if (type != kUsbKeyDown && type != kUsbKeyUp) {
        return;
    }
    if (code != kUsbHide) {
        m_View.RaiseWindow();
    }
    if (type == kUsbKeyDown && code == kUsbHide) {
        m_View.HideWindow();
    } else if (type == kUsbKeyDown && code == kUsbVolumeDown) {
        StepSpeakerVolume(-10);
    } else if (type == kUsbKeyDown && code == kUsbVolumeUp) {
        StepSpeakerVolume(10);
    } else if (type == kUsbKeyDown && code == kUsbHangUp) {
        m_View.FlashButton(kCmdHangUp);
        HangUp(true);
    } else if (type == kUsbKeyDown && code == kUsbClear) {
        m_View.FlashButton(kCmdBackspace);
        OnBackspace();
        m_View.SetTimer(kTimerClearHeld, 1000);
    } else if (type == kUsbKeyUp && code == kUsbClear) {
        m_View.KillTimer(kTimerClearHeld);
    }
}
