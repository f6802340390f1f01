#pragma once
#include <string>

// The web pages a deployment names in deployment.ini [service]: the SIP stack's licence page
// (licence_page), the service's account sign-up page (signup_page) and the service's web site
// (web_site), which carries the page that forwards calls; empty when not set.
struct DeploymentPages {
    std::string licencePage;
    std::string signupPage;
    std::string webSite;

    static DeploymentPages Load();
};
