/* A mail merge in C with libcurl, the fastest yardstick of tramelo_run_bench:
 * the same rows of the same SQLite table, every field merged into the same
 * subject and body as bench/python_mail_merge.py merges them, one message per
 * row, all through one SMTP connection that libcurl keeps open between
 * transfers. One client, no concurrency.
 *
 * Usage:
 *   curl_mail_merge DATABASE TABLE ADDRESS_FIELD HOST PORT
 *       --subject TEXT --body FILE --sender ADDRESS --sender-name NAME
 *
 * The body file's bytes are sent as they are (Windows-1252, declared
 * iso-8859-1, 8bit); the subject is given in UTF-8 and sent as an encoded
 * word. Prints one JSON object: count (messages sent), seconds (from opening
 * the database to the connection closed), per_second.
 */

#define _GNU_SOURCE /* memmem */

#include <curl/curl.h>
#include <sqlite3.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* Given explicitly (the URL's path is libcurl's EHLO name): it would
 * otherwise ask the name servers for this machine's name. */
#define HELO_NAME "bench.tramelo.test"

struct text {
    char *bytes;
    size_t size;
    size_t capacity;
};

static void fail(const char *what)
{
    fprintf(stderr, "curl_mail_merge: %s\n", what);
    exit(1);
}

static void append(struct text *t, const char *bytes, size_t size)
{
    if (t->size + size + 1 > t->capacity) {
        size_t capacity = t->capacity ? t->capacity : 256;
        while (t->size + size + 1 > capacity)
            capacity *= 2;
        t->bytes = realloc(t->bytes, capacity);
        if (!t->bytes)
            fail("out of memory");
        t->capacity = capacity;
    }
    memcpy(t->bytes + t->size, bytes, size);
    t->size += size;
    t->bytes[t->size] = '\0';
}

static void append_text(struct text *t, const char *s)
{
    append(t, s, strlen(s));
}

/* Every "<<<name>>>" of the text replaced by value, the result in out. */
static void replace_all(struct text *out, const char *text, size_t size, const char *placeholder, const char *value)
{
    const size_t length = strlen(placeholder);
    const size_t value_length = strlen(value);
    out->size = 0;
    size_t at = 0;
    while (at < size) {
        const char *found = length <= size - at ? memmem(text + at, size - at, placeholder, length) : NULL;
        if (!found) {
            append(out, text + at, size - at);
            break;
        }
        append(out, text + at, (size_t)(found - (text + at)));
        append(out, value, value_length);
        at = (size_t)(found - text) + length;
    }
    if (out->size == 0)
        append(out, "", 0);
}

/* Fields merged in the table's order, so a value may hold a later field's
 * placeholder; null fields leave theirs. */
static void merge_fields(struct text *result, const char *template_text, size_t size, sqlite3_stmt *row,
                         int columns, int as_latin1)
{
    struct text current = {0};
    struct text next = {0};
    append(&current, template_text, size);
    for (int c = 0; c < columns; ++c) {
        const unsigned char *value = sqlite3_column_text(row, c);
        if (!value)
            continue;
        char placeholder[256];
        snprintf(placeholder, sizeof placeholder, "<<<%s>>>", sqlite3_column_name(row, c));
        char converted[4096];
        const char *replacement = (const char *)value;
        if (as_latin1) {
            /* UTF-8 to single bytes (the body's code page holds these letters). */
            size_t o = 0;
            for (const unsigned char *p = value; *p && o + 1 < sizeof converted; ++p) {
                if (*p >= 0xC0 && p[1]) {
                    converted[o++] = (char)(((*p & 0x1F) << 6) | (p[1] & 0x3F));
                    ++p;
                } else {
                    converted[o++] = (char)*p;
                }
            }
            converted[o] = '\0';
            replacement = converted;
        }
        replace_all(&next, current.bytes, current.size, placeholder, replacement);
        struct text swap = current;
        current = next;
        next = swap;
    }
    result->size = 0;
    append(result, current.bytes, current.size);
    free(current.bytes);
    free(next.bytes);
}

/* RFC 2047 Q encoding of UTF-8 text as iso-8859-1 (the letters used fit). */
static void append_encoded_word(struct text *t, const char *utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    append_text(t, "=?iso-8859-1?Q?");
    for (const unsigned char *p = (const unsigned char *)utf8; *p; ++p) {
        unsigned char c = *p;
        if (c >= 0xC0 && p[1]) {
            c = (unsigned char)(((c & 0x1F) << 6) | (p[1] & 0x3F));
            ++p;
        }
        if (c == ' ') {
            append_text(t, "_");
        } else if (c < 0x80 && c > 0x20 && c != '=' && c != '?' && c != '_') {
            append(t, (const char *)&c, 1);
        } else {
            const char escaped[3] = {'=', hex[c >> 4], hex[c & 15]};
            append(t, escaped, 3);
        }
    }
    append_text(t, "?=");
}

/* The body's lines end in CR LF on the wire, and a line starting with a
 * dot is stuffed by libcurl itself. */
static void append_crlf_lines(struct text *t, const char *bytes, size_t size)
{
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\n') {
            size_t end = i > start && bytes[i - 1] == '\r' ? i - 1 : i;
            append(t, bytes + start, end - start);
            append_text(t, "\r\n");
            start = i + 1;
        }
    }
    if (start < size) {
        append(t, bytes + start, size - start);
        append_text(t, "\r\n");
    }
}

struct upload {
    const char *bytes;
    size_t size;
    size_t sent;
};

static size_t read_message(char *buffer, size_t size, size_t count, void *data)
{
    struct upload *u = data;
    size_t room = size * count;
    size_t left = u->size - u->sent;
    size_t n = left < room ? left : room;
    memcpy(buffer, u->bytes + u->sent, n);
    u->sent += n;
    return n;
}

static char *read_file(const char *path, size_t *size)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        fail("cannot read the body file");
    struct text t = {0};
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        append(&t, chunk, got);
    fclose(file);
    *size = t.size;
    return t.bytes;
}

static double now_seconds(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    const char *subject = NULL, *body_path = NULL, *sender = NULL, *sender_name = NULL;
    const char *positional[5];
    int positionals = 0;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 < argc && strcmp(argv[i], "--subject") == 0)
            subject = argv[++i];
        else if (i + 1 < argc && strcmp(argv[i], "--body") == 0)
            body_path = argv[++i];
        else if (i + 1 < argc && strcmp(argv[i], "--sender") == 0)
            sender = argv[++i];
        else if (i + 1 < argc && strcmp(argv[i], "--sender-name") == 0)
            sender_name = argv[++i];
        else if (positionals < 5)
            positional[positionals++] = argv[i];
        else
            fail("too many arguments");
    }
    if (positionals != 5 || !subject || !body_path || !sender || !sender_name)
        fail("usage: curl_mail_merge DATABASE TABLE ADDRESS_FIELD HOST PORT --subject TEXT --body FILE "
             "--sender ADDRESS --sender-name NAME");
    const char *database_path = positional[0], *table = positional[1], *address_field = positional[2];
    const char *host = positional[3], *port = positional[4];
    size_t body_size = 0;
    char *body = read_file(body_path, &body_size);

    const double started = now_seconds();
    sqlite3 *database = NULL;
    if (sqlite3_open_v2(database_path, &database, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK)
        fail("cannot open the database");
    char query[512];
    snprintf(query, sizeof query, "SELECT * FROM \"%s\"", table);
    sqlite3_stmt *row = NULL;
    if (sqlite3_prepare_v2(database, query, -1, &row, NULL) != SQLITE_OK)
        fail(sqlite3_errmsg(database));
    const int columns = sqlite3_column_count(row);
    int address_column = -1;
    for (int c = 0; c < columns; ++c) {
        if (strcmp(sqlite3_column_name(row, c), address_field) == 0)
            address_column = c;
    }
    if (address_column < 0)
        fail("no such address field");

    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL *curl = curl_easy_init();
    if (!curl)
        fail("curl_easy_init failed");
    char url[512];
    snprintf(url, sizeof url, "smtp://%s:%s/%s", host, port, HELO_NAME);
    char mail_from[512];
    snprintf(mail_from, sizeof mail_from, "<%s>", sender);
    struct upload upload = {0};
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mail_from);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_message);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);

    struct text message = {0};
    struct text merged = {0};
    long sent = 0;
    int step;
    while ((step = sqlite3_step(row)) == SQLITE_ROW) {
        const unsigned char *recipient = sqlite3_column_text(row, address_column);
        if (!recipient)
            continue;
        char recipient_path[512];
        snprintf(recipient_path, sizeof recipient_path, "<%s>", (const char *)recipient);
        struct curl_slist *rcpt = curl_slist_append(NULL, recipient_path);

        char date[64];
        const time_t now = time(NULL);
        struct tm local;
        localtime_r(&now, &local);
        strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S %z", &local);
        message.size = 0;
        append_text(&message, "From: ");
        append_text(&message, sender_name);
        append_text(&message, " <");
        append_text(&message, sender);
        append_text(&message, ">\r\nTo: ");
        append_text(&message, (const char *)recipient);
        append_text(&message, "\r\nReply-To: ");
        append_text(&message, sender);
        append_text(&message, "\r\nSubject: ");
        merge_fields(&merged, subject, strlen(subject), row, columns, 0);
        append_encoded_word(&message, merged.bytes);
        append_text(&message, "\r\nDate: ");
        append_text(&message, date);
        char message_id[128];
        snprintf(message_id, sizeof message_id, "\r\nMessage-ID: <%ld.%ld@" HELO_NAME ">", (long)now, sent);
        append_text(&message, message_id);
        append_text(&message, "\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=\"iso-8859-1\"\r\n"
                              "Content-Transfer-Encoding: 8bit\r\n\r\n");
        merge_fields(&merged, body, body_size, row, columns, 1);
        append_crlf_lines(&message, merged.bytes, merged.size);

        upload.bytes = message.bytes;
        upload.size = message.size;
        upload.sent = 0;
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
        const CURLcode result = curl_easy_perform(curl);
        curl_slist_free_all(rcpt);
        if (result != CURLE_OK)
            fail(curl_easy_strerror(result));
        ++sent;
    }
    if (step != SQLITE_DONE)
        fail(sqlite3_errmsg(database));
    curl_easy_cleanup(curl); /* QUIT on the connection kept open */
    curl_global_cleanup();
    sqlite3_finalize(row);
    sqlite3_close(database);
    const double seconds = now_seconds() - started;
    printf("{\"count\": %ld, \"seconds\": %.6f, \"per_second\": %.1f}\n", sent, seconds,
           seconds > 0 ? (double)sent / seconds : 0.0);
    free(body);
    free(message.bytes);
    free(merged.bytes);
    return 0;
}
