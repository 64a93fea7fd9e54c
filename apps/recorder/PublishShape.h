#pragma once
// What a publisher's connection looks like beyond plain messages: its will, what goes first
// once connected, what a queued message becomes on its way out, commands it listens to, and
// its farewell. The Sparkplug B edge node (apps/recorder/sparkplug) is one; without a shape
// the publisher sends each queued message as it is, with the status topic as its will.
//
// The publisher calls every method with its own lock held, from its network thread (Will,
// Subscriptions, Received, Disconnected) and its sender thread (the others): a shape never
// calls the publisher back.

#include <string>
#include <vector>

#include "apps/recorder/DiskQueue.h"

namespace kelta::record {

struct OutgoingMessage {
  std::string topic;
  std::string payload;
  int qos = 1;
  bool retain = false;
};

class PublishShape {
 public:
  virtual ~PublishShape() = default;

  // The will to register with the next connection, made just before it.
  virtual OutgoingMessage Will() = 0;
  // Topics to subscribe to once connected (QoS 1).
  virtual std::vector<std::string> Subscriptions() const = 0;
  // Sent first on every connection, and again when Received asked for it.
  virtual std::vector<OutgoingMessage> Greeting() = 0;
  // A queued message on its way: the messages it becomes, in order. The queue lets it go once
  // the last of them was sent (acknowledged, for QoS 1); none: it is done at once.
  virtual std::vector<OutgoingMessage> Shape(const QueuedMessage& message) = 0;
  // A message on a subscribed topic: true when the greeting is to be sent again.
  virtual bool Received(const std::string& topic, const std::string& payload) = 0;
  // The connection is gone.
  virtual void Disconnected() = 0;
  // Sent before a deliberate disconnect, which the broker does not answer with the will.
  virtual std::vector<OutgoingMessage> Farewell() = 0;
};

}  // namespace kelta::record
