#pragma once

#include <string>
#include <sys/types.h>
#include <unistd.h>

// Permissions do not stop root: a test that needs them to bite runs as user nobody, owning
// the test's folder, and becomes root again when it ends.
class RunAsNobody {
public:
    explicit RunAsNobody(const std::string& folder)
    {
        if (geteuid() != 0)
            return;
        constexpr uid_t nobody = 65534;
        active = chown(folder.c_str(), nobody, nobody) == 0 && setegid(nobody) == 0 && seteuid(nobody) == 0;
    }
    ~RunAsNobody()
    {
        if (active)
            (void)(seteuid(0) + setegid(0));
    }
    RunAsNobody(const RunAsNobody&) = delete;
    RunAsNobody& operator=(const RunAsNobody&) = delete;
    bool Active() const { return active || geteuid() != 0; }

private:
    bool active = false;
};
