#pragma once

// The one trace log of the program and the media engine. The program implements it
// (TraceFile) and hands a pointer to libTamsor, so the order of the virtual operations and
// their arguments are part of the interface between the two binaries.
//
// Message protocol for every writer: Lock; Write(text); optionally Write(number) and
// WriteTime; NewLine; Unlock. Write, WriteTime and NewLine take no lock themselves and are only
// called between Lock and Unlock. The lock is recursive.
class iTraceFile {
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual void WriteTime() = 0;
    virtual void NewLine() = 0;
    virtual void Write(const char* text) = 0;

protected:
    // Never deleted through this interface.
    ~iTraceFile() = default;
};
