#pragma once
// The proxy the test main started the engine with.
class GateProxy;
GateProxy* engineProxy();
