// The listening side of ksv-crate-server: accepts connections on
// 127.0.0.1 and serves each on a thread of its own.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

#include "World.h"

namespace ksv::sim {

// One line on stderr, prefixed with the program's name.
void Log(const std::string& line);

// Opens the listening socket. Returns the fd, or -1 with `error` set.
int Listen(uint16_t port, uint16_t& boundPort, std::string& error);

// Serves until `stopFd` becomes readable (the signal handler writes to it),
// or, when `parent` is not 0, until this process's parent is no longer
// `parent`; then closes every connection and joins every thread.
void Serve(World& world, int listenFd, int stopFd, bool verbose, pid_t parent = 0);

} // namespace ksv::sim
