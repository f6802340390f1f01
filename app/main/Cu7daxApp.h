#pragma once

// The application object. Its whole work is InitInstance: start the window system and run the
// login form modally as the main window; when the form ends, so does the program. SIGTERM and
// SIGINT end the form.
//
// Threads: the GUI thread (the program's main thread).
class Cu7daxApp {
public:
    // Runs the program and returns false, so no message loop of its own follows.
    bool InitInstance();
    // The process's exit status: 0, or 1 when there was no display to show the form on.
    int ExitCode() const { return m_nExitCode; }

private:
    int m_nExitCode = 0;
};

// The program's application object (app/main/ProgramStatics.cpp).
extern Cu7daxApp theApp;
