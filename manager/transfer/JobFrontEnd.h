// What a transfer job needs from whoever shows it: questions, message boxes,
// the progress window's caption and figures, and the end of the job. The
// manager's windows, the command-line tool and the tests each implement it.
#pragma once

#include <cstdint>
#include <string>

namespace murmex {

class JobFrontEnd {
public:
    virtual ~JobFrontEnd() = default;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // An error message box, owned by the progress window.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void ShowProgress(std::uint32_t elapsedMs, std::uint32_t total, std::uint32_t done) = 0;
    // The job is over: close the progress window and tell the main frame
    // which list to refresh (0xFF04 the PC files, 0xFF06 the recorder's).
    virtual void EndJob(std::uint32_t notification) = 0;
};

// Turns a PC file that is not in the card's native format into one that is
// (the speech-format WAV of the cards that keep recorder audio as WAV).
class NativeFileConverter {
public:
    virtual ~NativeFileConverter() = default;
    virtual bool Convert(const std::string& sourcePath, const std::string& targetPath) = 0;
};

struct JobOutcome {
    bool errors = false;     // a message box reported a failure
    bool cancelled = false;  // the cancel flag stopped the job
};

}  // namespace murmex
