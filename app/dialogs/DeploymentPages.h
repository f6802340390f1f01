#pragma once
#include <string>

// The web pages a deployment names in deployment.ini [service]: the SIP stack's licence page
// (licence_page) and the service's account sign-up page (signup_page); empty when not set.
struct DeploymentPages {
    std::string licencePage;
    std::string signupPage;

    static DeploymentPages Load();
};
