// Shared helpers of the window tests: a recorder that answers every modal
// request without a dialog, and a crate-library stand-in that only knows
// whether the module is open and counts the calls the window makes.
#pragma once

#include <QString>
#include <atomic>
#include <vector>

#include "ModalDialogs.h"
#include "ClosedCrateApi.h"
#include "TKsvApi.h"

namespace ksv::test {

class TModalRecorder {
public:
    TModalRecorder()
    {
        SetModalHandler([this](const TModalRequest& request) {
            Requests.push_back(request);
            return 0;
        });
    }
    ~TModalRecorder() { SetModalHandler({}); }
    TModalRecorder(const TModalRecorder&) = delete;
    TModalRecorder& operator=(const TModalRecorder&) = delete;

    std::vector<TModalRequest> Requests;
};

} // namespace ksv::test
