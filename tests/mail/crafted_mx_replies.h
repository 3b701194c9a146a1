#pragma once

#include "dns_reply_builder.h"

#include <QString>

#include <vector>

// Replies to "example.test" MX, well-formed and broken, with the exchanger
// each one must yield ("" for none). The same bytes seed the parse's fuzzer.
struct CraftedMxReply {
    const char *name;
    QByteArray reply;
    QString expected;
};

inline std::vector<CraftedMxReply> craftedMxReplies()
{
    using B = DnsReplyBuilder;
    const QByteArray question = B::name("example.test");
    const int q = 12; // offset of the question's name
    std::vector<CraftedMxReply> cases;

    {
        B b(1);
        b.question(question);
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        cases.push_back({"one answer written out in full", b.bytes(), "mx.example.test"});
    }
    {
        B b(0);
        b.question(question);
        cases.push_back({"no answer", b.bytes(), ""});
    }
    {
        B b(2);
        b.question(question);
        b.mx(B::pointer(q), 10, B::name("ten.example.test"));
        b.mx(B::pointer(q), 5, B::name("five.example.test"));
        cases.push_back({"lower preference second", b.bytes(), "five.example.test"});
    }
    {
        B b(2);
        b.question(question);
        b.mx(B::pointer(q), 10, B::name("first.example.test"));
        b.mx(B::pointer(q), 10, B::name("second.example.test"));
        cases.push_back({"equal preferences keep the earliest", b.bytes(), "first.example.test"});
    }
    {
        B b(3);
        b.question(question);
        b.mx(B::pointer(q), 65535, B::name("high.example.test"));
        b.mx(B::pointer(q), 0, B::name("zero.example.test"));
        b.mx(B::pointer(q), 1, B::name("one.example.test"));
        cases.push_back({"preferences are unsigned", b.bytes(), "zero.example.test"});
    }
    {
        B b(2);
        b.question(question);
        b.record(B::pointer(q), 5, B::name("alias.example.test")); // CNAME
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        cases.push_back({"first answer not MX", b.bytes(), ""});
    }
    {
        B b(3);
        b.question(question);
        b.mx(B::pointer(q), 20, B::name("kept.example.test"));
        b.record(B::pointer(q), 16, QByteArray("\x04text", 5)); // TXT
        b.mx(B::pointer(q), 1, B::name("unread.example.test"));
        cases.push_back({"answers after a non-MX one are not read", b.bytes(), "kept.example.test"});
    }
    {
        B b(2);
        b.question(question);
        b.mx(B::pointer(q), 20, B::nameThenPointer("relay", q));
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        cases.push_back({"name ending in a pointer, then one in full", b.bytes(), "mx.example.test"});
    }
    {
        B b(2);
        b.question(question);
        b.mx(B::pointer(q), 10, B::nameThenPointer("relay", q));
        b.mx(B::pointer(q), 20, B::name("mx.example.test"));
        cases.push_back({"name ending in a pointer wins", b.bytes(), "relay.example.test"});
    }
    {
        B b(3);
        b.question(question);
        const qsizetype relay = b.mx(B::pointer(q), 30, B::nameThenPointer("relay", q));
        const qsizetype mail = b.mx(B::pointer(q), 20, B::nameThenPointer("mail", int(relay)));
        b.mx(B::pointer(q), 10, B::nameThenPointer("in", int(mail)));
        cases.push_back({"chain of pointers", b.bytes(), "in.mail.relay.example.test"});
    }
    {
        // A long question pushes the answers past offset 255, so the pointer's
        // first byte is above 192.
        const QByteArray label(60, 'q');
        B b(2);
        b.question(B::name(label + '.' + label + '.' + label + '.' + label));
        const qsizetype relay = b.mx(B::pointer(q), 20, B::name("relay.example.test"));
        b.mx(B::pointer(q), 5, B::nameThenPointer("mx", int(relay)));
        cases.push_back({"pointer to an offset above 255", b.bytes(), "mx.relay.example.test"});
    }
    {
        B b(2);
        b.question(question);
        b.mx(B::pointer(q), 0, QByteArray(1, '\0')); // "no mail here"
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        cases.push_back({"empty exchange name is no candidate", b.bytes(), "mx.example.test"});
    }
    {
        B b(1);
        b.question(question);
        b.mx(B::pointer(q), 0, B::name(" "));
        cases.push_back({"blank exchange name is no candidate", b.bytes(), ""});
    }
    {
        B b(1);
        b.question(question);
        const qsizetype at = b.size() + 2 + 10 + 2;
        b.mx(B::pointer(q), 10, B::pointer(int(at)));
        cases.push_back({"pointer to itself", b.bytes(), ""});
    }
    {
        B b(1);
        b.question(question);
        const qsizetype at = b.size() + 2 + 10 + 2;
        b.mx(B::pointer(q), 10, B::nameThenPointer("mx", int(at)));
        cases.push_back({"pointer back to its own labels", b.bytes(), ""});
    }
    {
        B b(1);
        b.question(question);
        const qsizetype at = b.size() + 2 + 10 + 2;
        b.mx(B::pointer(q), 10, B::nameThenPointer("mx", int(at) + 5) + B::nameThenPointer("x", int(at)));
        cases.push_back({"forward pointer into a loop", b.bytes(), ""});
    }
    {
        B b(1);
        b.question(question);
        b.mx(B::pointer(q), 10, B::nameThenPointer("mx", 1500));
        cases.push_back({"pointer past the reply", b.bytes(), ""});
    }
    {
        B b(1);
        b.question(B::pointer(0x3FFF));
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        cases.push_back({"question pointing past the buffer", b.bytes(), ""});
    }
    {
        // 245 bytes of question; a name of one more label that points at it
        // stays within 255 bytes or goes past them.
        const QByteArray label(60, 'q');
        const QByteArray longName = label + '.' + label + '.' + label + '.' + label;
        B within(1);
        within.question(B::name(longName));
        within.mx(B::pointer(q), 10, B::nameThenPointer("abcdefghi", q));
        cases.push_back({"name of 255 bytes through a pointer", within.bytes(), "abcdefghi." + longName});
        B beyond(1);
        beyond.question(B::name(longName));
        beyond.mx(B::pointer(q), 10, B::nameThenPointer("abcdefghij", q));
        cases.push_back({"name past 255 bytes through a pointer", beyond.bytes(), ""});
    }
    {
        B b(2);
        b.question(question);
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        cases.push_back({"fewer answers than counted", b.bytes(), "mx.example.test"});
    }
    {
        B b(1);
        b.question(question);
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        QByteArray cut = b.bytes();
        cut.chop(8);
        cases.push_back({"reply cut inside the exchange name", cut, ""});
    }
    {
        B b(1);
        b.question(question);
        b.mx(B::pointer(q), 10, B::name("mx.example.test"));
        cases.push_back({"reply cut inside the question", b.bytes().left(18), ""});
    }
    {
        cases.push_back({"reply cut inside the header", QByteArray("\x11\xDF\x81\x80\x00\x01\x00", 7), ""});
    }
    {
        // Labels of 63 bytes that run to the end of the 2048-byte buffer.
        QByteArray bytes = B(1).bytes();
        while (bytes.size() < 2048)
            bytes += char(63) + QByteArray(63, 'z');
        cases.push_back({"question running off the buffer", bytes.left(2048), ""});
    }
    return cases;
}
