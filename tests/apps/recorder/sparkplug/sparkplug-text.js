// Sparkplug B payloads through the npm decoder, one per line of hex on standard input, each
// printed as one line of text the tests compare with what they sent:
//   seq=3 ts=1700000000000 | Angle:Double=12.5@1700000000000 hist unit=deg | Line:String="12.5"
// With --rebirth VALUE it encodes instead: a node command with "Node Control/Rebirth" = VALUE
// (true or false), printed as hex.
"use strict";
const sparkplug = require("sparkplug-payload").get("spBv1.0");

const text = (v) => {
  if (v === null || v === undefined) return "null";
  if (typeof v === "object" && "low" in v && "high" in v) return v.toString();
  if (typeof v === "string") return JSON.stringify(v);
  return String(v);
};

if (process.argv[2] === "--rebirth") {
  const payload = sparkplug.encodePayload({
    timestamp: Date.now(),
    metrics: [{ name: "Node Control/Rebirth", type: "Boolean", value: process.argv[3] === "true" }],
  });
  process.stdout.write(Buffer.from(payload).toString("hex") + "\n");
  process.exit(0);
}

let input = "";
process.stdin.on("data", (chunk) => (input += chunk));
process.stdin.on("end", () => {
  for (const hex of input.split("\n").filter((l) => l.length > 0)) {
    const p = sparkplug.decodePayload(Buffer.from(hex, "hex"));
    const parts = [`seq=${p.seq === undefined || p.seq === null ? "-" : text(p.seq)} ts=${text(p.timestamp)}`];
    for (const m of p.metrics) {
      let s = `${m.name}:${m.type}=${text(m.value)}`;
      if (m.timestamp !== undefined && m.timestamp !== null) s += `@${text(m.timestamp)}`;
      if (m.isHistorical) s += " hist";
      for (const [key, prop] of Object.entries(m.properties || {})) s += ` ${key}=${prop.value}`;
      parts.push(s);
    }
    process.stdout.write(parts.join(" | ") + "\n");
  }
});
