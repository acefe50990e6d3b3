// A simulator on a pty with one port number aimed at it for the lifetime
// of the object; the port is aimed at a path that does not exist again
// afterwards.
#pragma once

#include <cstdlib>
#include <string>

#include "sim/simulator.h"

namespace korvex::test {

class SimPort {
public:
    explicit SimPort(sim::Options options = {}, int port = 1)
        : sim_(std::move(options)), var_("KORVEX_COM" + std::to_string(port))
    {
        started_ = sim_.Start();
        if (started_)
            setenv(var_.c_str(), sim_.SlavePath().c_str(), 1);
    }
    ~SimPort()
    {
        sim_.Stop();
        const std::string nowhere = "/nonexistent/korvex-test-" + var_;
        setenv(var_.c_str(), nowhere.c_str(), 1);
    }
    SimPort(const SimPort &) = delete;
    SimPort &operator=(const SimPort &) = delete;

    bool ok() const { return started_; }
    sim::Simulator &sim() { return sim_; }
    sim::Simulator *operator->() { return &sim_; }

private:
    sim::Simulator sim_;
    std::string var_;
    bool started_ = false;
};

}  // namespace korvex::test
