// The one sampling thread of a run. Once a second it reads, in one pass,
// what the triggers of every watched process need: the processors' times
// once, the system's list of processes once (the CPU time and the committed
// memory of each), the top-level windows once (the hung ones). Then it runs
// each process's triggers on its readings, prints their lines, and hands a
// trigger that fired to that process's counter thread. Twenty idle
// processes cost it about what one does.
#pragma once

#include <windows.h>

#include <vector>

#include "common/unique_resource.h"
#include "console/monitors/hung_window.h"
#include "console/monitors/sampled_watch.h"

struct PassReadings;  // what one pass read of the system
struct PassNeeds;     // what the watches of one pass need read

class SharedSampler {
  public:
    SharedSampler();
    ~SharedSampler();  // stops the thread
    SharedSampler(const SharedSampler&) = delete;
    SharedSampler& operator=(const SharedSampler&) = delete;

    // Starts the thread. False when the system had no thread or event to
    // give; nothing is sampled then.
    bool Start();
    // Ends the thread and waits for it; a watch still added is sampled no
    // more.
    void Stop();

    // A watch added gets its first pass at once, then one every second with
    // the others. Remove returns once no pass uses the watch any more.
    void Add(SampledWatch* watch);
    void Remove(SampledWatch* watch);

    // -all: every pass also tells which processes of the list have this
    // image name, so that the run finds the processes it picks up in the
    // list read anyway (under Wine a toolhelp snapshot costs more than the
    // whole pass). Set before Start; the name must outlive the sampler.
    void TellProcessesNamed(const wchar_t* name);
    // Raised after each pass that has told them anew.
    HANDLE NamedToldEvent() const { return told_.Get(); }
    // The processes of the name of the latest pass that read the list;
    // false when no pass has told them since the last call.
    bool TakeProcessesNamed(std::vector<uint32_t>& ids);

  private:
    static unsigned __stdcall ThreadProc(void* self);
    void Run();
    // A pass over every watch, or only over those that have had none yet.
    void Pass(bool onlyNew);
    // The watches to sample in this pass, into due_.
    PassNeeds CollectDue(bool onlyNew);
    PassReadings ReadSystem(const PassNeeds& needs);
    void TellNamed(const PassReadings& readings);
    void FindHungWindowsOfDue();
    void RunTriggers(SampledWatch& watch, const PassReadings& readings, const PassClock& clock);

    SRWLOCK lock_ = SRWLOCK_INIT;  // guards watches_, and is held for a whole pass
    std::vector<SampledWatch*> watches_;
    UniqueHandle thread_;
    UniqueHandle stop_;
    UniqueHandle wake_;  // auto-reset: a watch was added
    UniqueHandle told_;  // auto-reset: the processes of the name were told anew

    const wchar_t* name_ = nullptr;
    SRWLOCK namedLock_ = SRWLOCK_INIT;  // guards named_ and namedFresh_
    std::vector<uint32_t> named_;
    bool namedFresh_ = false;

    // The sampling thread's alone.
    std::vector<SampledWatch*> due_;
    UniqueHeapMemory processors_;
    std::vector<uint64_t> list_;
    std::vector<HungWindowSearch> hungSearches_;
};
