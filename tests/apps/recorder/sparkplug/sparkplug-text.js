// Sparkplug B payloads through the npm decoder, one per line of hex on standard input, each
// printed as one line of text the tests compare with what they sent:
//   seq=3 ts=1700000000000 | Angle:Double=12.5@1700000000000 hist unit=deg | Line:String="12.5"
// With --rebirth VALUE it encodes instead: a node command with "Node Control/Rebirth" = VALUE
// (true or false), printed as hex; --rebirth VALUE --to PORT TOPIC publishes it to the broker on
// 127.0.0.1:PORT.
// With --subscribe PORT it is a host: subscribed to spBv1.0/# on 127.0.0.1:PORT (a clean
// session), it prints "TOPIC | <payload as above>" for each message as it comes, and
// "connected" once subscribed.
"use strict";
const sparkplug = require("sparkplug-payload").get("spBv1.0");

const text = (v) => {
  if (v === null || v === undefined) return "null";
  if (typeof v === "object" && "low" in v && "high" in v) return v.toString();
  if (typeof v === "string") return JSON.stringify(v);
  return String(v);
};

const describe = (p) => {
  const parts = [`seq=${p.seq === undefined || p.seq === null ? "-" : text(p.seq)} ts=${text(p.timestamp)}`];
  for (const m of p.metrics) {
    let s = `${m.name}:${m.type}=${text(m.value)}`;
    if (m.timestamp !== undefined && m.timestamp !== null) s += `@${text(m.timestamp)}`;
    if (m.isHistorical) s += " hist";
    for (const [key, prop] of Object.entries(m.properties || {})) s += ` ${key}=${prop.value}`;
    parts.push(s);
  }
  return parts.join(" | ");
};

if (process.argv[2] === "--rebirth") {
  const payload = Buffer.from(sparkplug.encodePayload({
    timestamp: Date.now(),
    metrics: [{ name: "Node Control/Rebirth", type: "Boolean", value: process.argv[3] === "true" }],
  }));
  if (process.argv[4] !== "--to") {
    process.stdout.write(payload.toString("hex") + "\n");
    process.exit(0);
  }
  const client = require("mqtt").connect(`mqtt://127.0.0.1:${process.argv[5]}`);
  client.on("connect", () => client.publish(process.argv[6], payload, { qos: 1 }, () => client.end()));
  client.on("error", (e) => { console.error(String(e)); process.exit(1); });
} else if (process.argv[2] === "--subscribe") {
  const client = require("mqtt").connect(`mqtt://127.0.0.1:${process.argv[3]}`, { clean: true });
  client.on("connect", () =>
    client.subscribe("spBv1.0/#", { qos: 1 }, () => process.stdout.write("connected\n")));
  client.on("message", (topic, payload) => {
    let line;
    try {
      line = `${topic} | ${describe(sparkplug.decodePayload(payload))}`;
    } catch (e) {
      line = `${topic} | undecodable: ${e}`;
    }
    process.stdout.write(line + "\n");
  });
  client.on("error", (e) => console.error(String(e)));
  process.on("SIGTERM", () => client.end(false, () => process.exit(0)));
} else {
  let input = "";
  process.stdin.on("data", (chunk) => (input += chunk));
  process.stdin.on("end", () => {
    for (const hex of input.split("\n").filter((l) => l.length > 0)) {
      process.stdout.write(describe(sparkplug.decodePayload(Buffer.from(hex, "hex"))) + "\n");
    }
  });
}

