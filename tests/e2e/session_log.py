"""Reading the session log that a run of ziron7-flasher leaves: its timed
events, its closing sections and its frames on the wire."""

import re
from dataclasses import dataclass, field

EVENT = re.compile(r"^\[\s*(\d+) ms\] (.*)$")
FRAME = re.compile(r"^(TX|RX|RX bad checksum) ((?:[0-9A-F*]{2} ?)+)$")
LOADER_COMMANDS = {"6D", "ED"}  # the bootloader command, with or without the reply bit
ACCESS_CODE_SIZE = 6
MASK = "**"
# The outcome section's line of an update whose firmware passed verification.
VERIFIED_OUTCOME = "completed: the firmware passed verification"
# Part of the log line of a fast run that goes on at the default pace.
FALLBACK_MARK = "далее обычная скорость обмена"


@dataclass
class SessionLog:
    name: str
    text: str
    events: list = field(default_factory=list)  # (ms, text) before the closing sections
    sections: dict = field(default_factory=dict)  # title -> lines
    frames: list = field(default_factory=list)  # (ms, direction, [hex pairs])

    @classmethod
    def read(cls, path):
        log = cls(path.name, path.read_text(encoding="utf-8"))
        title = None
        for line in log.text.splitlines():
            heading = re.match(r"^== (.*) ==$", line)
            if heading:
                title = heading.group(1)
                log.sections[title] = []
                continue
            event = EVENT.match(line)
            if title is None:
                if event:
                    log.events.append((int(event.group(1)), event.group(2)))
            elif title.endswith("frames on the wire"):
                frame = FRAME.match(event.group(2)) if event else None
                if frame is None:
                    raise AssertionError(f"not a frame line: {line!r}")
                log.frames.append((int(event.group(1)), frame.group(1),
                                   frame.group(2).split()))
            elif line:
                log.sections[title].append(line)
        return log

    def field(self, name):
        """The value of `name: value` in the closing sections."""
        for lines in self.sections.values():
            for line in lines:
                if line.startswith(name + ": "):
                    return line[len(name) + 2:]
        return None

    def events_of(self, kind):
        """Texts of the events written as `kind: text` ("log", "box")."""
        return [text[len(kind) + 2:] for _, text in self.events if text.startswith(kind + ": ")]

    def access_code_leaks(self, access_code_hex):
        """Where the access code shows: its bytes in a row anywhere in the
        text, or an unmasked code byte in a bootloader frame."""
        code = " ".join(access_code_hex[i:i + 2] for i in range(0, len(access_code_hex), 2))
        leaks = [line for line in self.text.splitlines() if code.upper() in line.upper()]
        for ms, direction, pairs in self.frames:
            if len(pairs) > 1 and pairs[1] in LOADER_COMMANDS:
                shown = pairs[3:3 + ACCESS_CODE_SIZE] + pairs[-2:]
                if any(pair != MASK for pair in shown):
                    leaks.append(f"{ms} ms {direction} {' '.join(pairs)}")
        return leaks
