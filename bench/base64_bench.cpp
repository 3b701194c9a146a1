// Base64 block encoding of 64 MiB in the MIME line layout (76 characters and
// CR LF per line), ours against OpenSSL's EVP_EncodeBlock writing the same
// lines, in one run: the whole buffer in one call, then in the 11400-byte
// pieces attachments are sent in. Prints both throughputs and their ratio.
#include "content_encoders.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <vector>

namespace {

constexpr qsizetype inputSize = qsizetype(64) << 20;
constexpr qsizetype attachmentPiece = 11400;
constexpr int rounds = 7;

// The machine is shared: time on this thread's clock, not the wall clock.
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QByteArray encodeOurs(const QByteArray &bytes)
{
    return tramelo::modCorreu::encodeBase64Lines(bytes);
}

QByteArray encodeWithOpenSsl(const QByteArray &bytes)
{
    const qsizetype fullLines = bytes.size() / 57;
    const qsizetype rest = bytes.size() % 57;
    QByteArray encoded(fullLines * 78 + (rest ? (rest + 2) / 3 * 4 + 2 : 0), Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.constData());
    auto *out = reinterpret_cast<unsigned char *>(encoded.data());
    for (qsizetype line = 0; line < fullLines; ++line, in += 57) {
        // The terminating NUL it writes lands where the CR goes.
        out += EVP_EncodeBlock(out, in, 57);
        *out++ = '\r';
        *out++ = '\n';
    }
    if (rest > 0) {
        unsigned char tail[80]; // room for its NUL
        const int written = EVP_EncodeBlock(tail, in, int(rest));
        out = std::copy_n(tail, written, out);
        *out++ = '\r';
        *out++ = '\n';
    }
    return encoded;
}

using Encoder = QByteArray (*)(const QByteArray &);

QByteArray piece(const QByteArray &bytes, qsizetype start)
{
    return QByteArray::fromRawData(bytes.constData() + start, std::min(attachmentPiece, bytes.size() - start));
}

QByteArray joinedPieces(Encoder encode, const QByteArray &bytes)
{
    QByteArray joined;
    for (qsizetype start = 0; start < bytes.size(); start += attachmentPiece)
        joined += encode(piece(bytes, start));
    return joined;
}

// Each piece is encoded and let go, as the sender writes it to the socket.
qsizetype encodeInPieces(Encoder encode, const QByteArray &bytes)
{
    qsizetype written = 0;
    for (qsizetype start = 0; start < bytes.size(); start += attachmentPiece)
        written += encode(piece(bytes, start)).size();
    return written;
}

template <typename Run>
double medianSeconds(Run run)
{
    run(); // warm up
    std::vector<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        const double start = threadSeconds();
        run();
        seconds.push_back(threadSeconds() - start);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

void report(const char *layout, double megabytes, double oursSeconds, double theirSeconds)
{
    std::printf("%s\n", layout);
    std::printf("  modCorreu::encodeBase64Lines   %8.1f MB/s\n", megabytes / oursSeconds);
    std::printf("  OpenSSL EVP_EncodeBlock lines  %8.1f MB/s\n", megabytes / theirSeconds);
    std::printf("  ratio (ours / OpenSSL)         %8.2f\n", theirSeconds / oursSeconds);
}

} // namespace

int main()
{
    // Keep freed output buffers in the heap, so that every round writes to
    // memory already mapped instead of timing the kernel's page faults.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);

    QByteArray input(inputSize + 11, Qt::Uninitialized); // a last, short line too
    QRandomGenerator generator(2024);
    generator.fillRange(reinterpret_cast<quint32 *>(input.data()), input.size() / 4);

    if (encodeOurs(input) != encodeWithOpenSsl(input)
        || joinedPieces(encodeOurs, input) != joinedPieces(encodeWithOpenSsl, input)) {
        std::fprintf(stderr, "The two encoders disagree.\n");
        return 1;
    }

    const double megabytes = double(input.size()) / 1e6;
    std::printf("input: %.1f MB, median thread CPU time of %d rounds\n", megabytes, rounds);
    QByteArray output;
    const double oursWhole = medianSeconds([&] { output = encodeOurs(input); });
    const double theirsWhole = medianSeconds([&] { output = encodeWithOpenSsl(input); });
    report("whole buffer in one call", megabytes, oursWhole, theirsWhole);

    qsizetype written = 0;
    const double oursPieces = medianSeconds([&] { written += encodeInPieces(encodeOurs, input); });
    const double theirsPieces = medianSeconds([&] { written += encodeInPieces(encodeWithOpenSsl, input); });
    report("in pieces of 11400 bytes", megabytes, oursPieces, theirsPieces);
    return written > 0 ? 0 : 1;
}
