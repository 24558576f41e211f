// The outcome of one engine step: done, failed with the text the window
// shows for that failure, or ended by a stop request.
#pragma once

#include <string>
#include <utility>

namespace ksv {

enum class TEngineCode { Ok, Failed, Stopped };

struct TEngineStatus {
    TEngineCode Code = TEngineCode::Ok;
    // UTF-8, byte for byte the window's message; empty for a failure that
    // the window shows only in its lamps (and for Ok and Stopped).
    std::string Message;

    explicit operator bool() const { return Code == TEngineCode::Ok; }
    bool Failed() const { return Code == TEngineCode::Failed; }
    bool Stopped() const { return Code == TEngineCode::Stopped; }

    static TEngineStatus Success() { return {}; }
    static TEngineStatus Failure(std::string message = {}) { return {TEngineCode::Failed, std::move(message)}; }
    static TEngineStatus Stop() { return {TEngineCode::Stopped, {}}; }
};

} // namespace ksv
