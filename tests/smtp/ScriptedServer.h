#pragma once
// An SMTP server of one connection at a time that replays a dialogue, for what real servers
// will not do on request. One step per line:
//   S: text    send text + CR LF
//   R: text    send text raw; \r, \n and \\ are escapes
//   C: text    expect one client line equal to text + CR LF ("C: *" takes any)
//   D:         read message data up to and including CR LF . CR LF
//   P: ms      pause without reading (ends when the client hangs up)
//   K: n       read n bytes, then close the connection at once
//   E:         read and drop whatever comes until the client closes
//   N:         after K: or E:, take the client's next connection
// When the steps run out, or the client is gone, the connection is closed.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace testutil {

class ScriptedServer {
public:
    // receiveBuffer > 0 shrinks the server's receive buffer, so a server that
    // stops reading stalls the client sooner.
    explicit ScriptedServer(std::string script, int receiveBuffer = 0);
    ~ScriptedServer();
    int Port() const { return m_port; }
    // Waits for the dialogue to end; returns what went against the script.
    std::string Finish();
    // The data received by D: steps, still dot-stuffed.
    std::string Data();

private:
    void Serve();
    void Fail(const std::string& why);
    bool ReadLine(int fd, std::string& line);

    std::string m_script;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::string m_errors;
    std::string m_data;
    std::thread m_thread;
};

} // namespace testutil
