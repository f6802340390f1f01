#pragma once
#include "app/phone/LoginView.h"

class CUserLogin;
class LoginForm;

// Builds the main call window of a signed-in user: modeless, owned by the login form, hidden
// until the login logic places and shows it; it becomes the invite-session handler of the
// login's dialog-usage manager and clears *slot when it is destroyed. Null when it cannot be
// made (traced). When the current skin file cannot build it whole, the window and the form
// give way to the built-in skin (traced), so the window never comes up without its face.
CallWindow* MakeCallWindow(LoginForm& form, CUserLogin& login, CallWindow** slot);
