#pragma once

#include "server/ConnectionHandler.h"

class TAddressLimits;
class TServerLog;
class TStorage;

// The server's side of every client connection: whatever a client may do
// once connected goes through here. It owns nothing per connection that
// outlives the connection.
class TClientSessions {
public:
    TClientSessions(TStorage& storage, TServerLog& log) : Storage(storage), Log(log) {}

    void UseAddressLimits(TAddressLimits& limits) { Limits = &limits; }
    std::unique_ptr<TConnectionHandler> Open(TConnectionLink& link, const TPeer& peer);

private:
    TStorage& Storage;
    TServerLog& Log;
    TAddressLimits* Limits = nullptr;
};
