// Fault switches of the simulated controller; see faults.h.
#include "sim/faults.h"

namespace korvex::sim {

namespace {

const struct {
    Fault fault;
    const char *name;
} kNames[] = {{Fault::None, "none"},    {Fault::NoReply, "no-reply"}, {Fault::ShortReply, "short"},
              {Fault::NotOk, "not-ok"}, {Fault::LateReply, "late"},   {Fault::ExtraBytes, "extra"},
              {Fault::Unplug, "unplug"}};

}  // namespace

const char *FaultName(Fault fault)
{
    for (const auto &k : kNames) {
        if (k.fault == fault)
            return k.name;
    }
    return "?";
}

bool FaultByName(const std::string &name, Fault *fault)
{
    for (const auto &k : kNames) {
        if (name == k.name) {
            *fault = k.fault;
            return true;
        }
    }
    return false;
}

void FaultSwitch::Set(Fault fault, int fromFrame, int count)
{
    fault_ = fault;
    from_ = fromFrame;
    count_ = count;
}

void FaultSwitch::SetShortLength(int bytes)
{
    shortLength_ = bytes;
}

bool FaultSwitch::AppliesTo(int frame) const
{
    if (fault_ == Fault::None || frame < from_)
        return false;
    return count_ < 0 || frame < from_ + count_;
}

WireReply FaultSwitch::Apply(int frame, bool understood, std::vector<uint8_t> reply) const
{
    WireReply w;
    w.bytes = std::move(reply);
    if (!understood || !AppliesTo(frame))
        return w;
    w.fault = FaultName(fault_);
    // A fault that changes the answer leaves a request answered with nothing as it is.
    std::vector<uint8_t> &b = w.bytes;
    switch (fault_) {
    case Fault::None: break;
    case Fault::NoReply: b.clear(); break;
    case Fault::ShortReply:
        if (!b.empty()) {
            const bool given = shortLength_ >= 0 && static_cast<size_t>(shortLength_) < b.size();
            b.resize(given ? static_cast<size_t>(shortLength_) : b.size() - 1);
        }
        break;
    case Fault::NotOk:
        if (!b.empty())
            b = {'N', 'O'};
        break;
    case Fault::LateReply: w.late = true; break;
    case Fault::ExtraBytes:
        if (!b.empty())
            b.insert(b.end(), {'E', 'X', 'T', 'R', 'A'});
        break;
    case Fault::Unplug:
        b.clear();
        w.unplug = true;
        break;
    }
    return w;
}

}  // namespace korvex::sim
