#include "Interrupts.h"

#include <unistd.h>

namespace murmex::cli {

namespace {

std::atomic<std::atomic<int>*> g_cancelFlag{nullptr};
std::atomic<int> g_interrupts{0};

void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) > 0) ::_exit(130);
    if (std::atomic<int>* flag = g_cancelFlag.load()) flag->store(1);
}

}  // namespace

InterruptCancelsJob::InterruptCancelsJob(std::atomic<int>& flag) {
    g_interrupts = 0;
    g_cancelFlag = &flag;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous_);
}

InterruptCancelsJob::~InterruptCancelsJob() {
    ::sigaction(SIGINT, &previous_, nullptr);
    g_cancelFlag = nullptr;
}

}  // namespace murmex::cli
