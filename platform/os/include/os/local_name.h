// Names in the abstract unix socket namespace. A name is held by a socket
// for as long as the socket is open and is released by the kernel when it
// closes, however the process ends; nothing is left in the file system.
//
// The name used is the given one, plus "-" and the value of VOLTARIS_INSTANCE
// when that is set, so runs of the program side by side (tests) do not meet.
// Names are cut to the 107 bytes the kernel takes.
#pragma once

#include <string>

// A datagram socket (non-blocking, close-on-exec) that holds name, or -1
// with errno set; EADDRINUSE means another socket holds it.
int OSBindLocalName(const std::string& name);
// A datagram socket (non-blocking, close-on-exec) connected to the socket
// that holds name, or -1 with errno set when there is none.
int OSConnectLocalName(const std::string& name);
