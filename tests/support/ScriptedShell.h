#pragma once

#include "platform/Shell.h"

#include <deque>
#include <vector>

// A shell for tests, installed for as long as it lives: it opens nothing, records every request
// and answers with planned result codes (opened, when nothing is planned).
class ScriptedShell : public IShell {
public:
    struct Request {
        HWND Parent;
        QString Operation;
        QString File;
        QString Parameters;
        QString Directory;
        int ShowCmd;
    };

    ScriptedShell() { SetShell(this); }
    ~ScriptedShell() override { SetShell(nullptr); }
    ScriptedShell(const ScriptedShell&) = delete;
    ScriptedShell& operator=(const ScriptedShell&) = delete;

    void Plan(intptr_t result) { Results.push_back(result); }

    intptr_t Execute(HWND parent, const QString& operation, const QString& file, const QString& parameters,
                     const QString& directory, int showCmd) override
    {
        Requests.push_back({parent, operation, file, parameters, directory, showCmd});
        if (Results.empty())
            return SE_OPENED;
        const intptr_t result = Results.front();
        Results.pop_front();
        return result;
    }

    std::vector<Request> Requests;
    std::deque<intptr_t> Results;
};
