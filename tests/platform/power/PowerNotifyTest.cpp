// Power notifications through message queues, with the suspended time replaced.
#include <gtest/gtest.h>

#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include "platform/Power.h"
#include "platform/Registry.h"  // ERROR_ACCESS_DENIED

namespace {

class PowerNotifyTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::power::SetSuspendedTimeSource([this] {
            ++samples;
            return suspended;
        });
    }
    void TearDown() override {
        for (HANDLE r : requests) StopPowerNotifications(r);
        for (HANDLE q : queues) CloseMsgQueue(q);
        plat::power::SetSuspendedTimeSource(nullptr);
    }
    HANDLE Queue(DWORD maxBytes = 536, DWORD maxMessages = 0, BOOL read = TRUE) {
        MSGQUEUEOPTIONS options{sizeof(MSGQUEUEOPTIONS), 0, maxMessages, maxBytes, read};
        HANDLE q = CreateMsgQueue(nullptr, &options);
        EXPECT_NE(q, nullptr);
        queues.push_back(q);
        return q;
    }
    HANDLE Request(HANDLE queue, DWORD flags = PBT_RESUME) {
        HANDLE r = RequestPowerNotifications(queue, flags);
        EXPECT_NE(r, nullptr);
        requests.push_back(r);
        return r;
    }
    // The messages waiting in the queue, read without waiting; -1 for a failed read other than a time-out.
    std::vector<int64_t> Drain(HANDLE queue) {
        std::vector<int64_t> got;
        for (;;) {
            BYTE buffer[536];
            DWORD bytes = 0, flags = 7;
            if (!ReadMsgQueue(queue, buffer, sizeof buffer, &bytes, 0, &flags)) {
                if (GetLastError() != ERROR_TIMEOUT) got.push_back(-1);
                return got;
            }
            EXPECT_EQ(bytes, kPowerBroadcastBytes);
            EXPECT_EQ(flags, 0u);
            const auto* message = reinterpret_cast<const POWER_BROADCAST*>(buffer);
            EXPECT_EQ(message->Length, 0u);
            got.push_back(message->Message);
        }
    }
    int64_t suspended = 0;
    int samples = 0;
    std::vector<HANDLE> queues, requests;
};

using Messages = std::vector<int64_t>;

TEST_F(PowerNotifyTest, EachResumeReachesEveryQueueThatAskedForItOnce) {
    HANDLE a = Queue(), b = Queue(), other = Queue(), closed = Queue(), stopped = Queue();
    Request(a);
    Request(b, POWER_NOTIFY_ALL);
    Request(other, PBT_POWERSTATUSCHANGE);
    Request(closed);
    HANDLE stop = RequestPowerNotifications(stopped, PBT_RESUME);
    ASSERT_TRUE(CloseMsgQueue(closed));
    queues.pop_back(), queues.pop_back(), queues.push_back(stopped);
    ASSERT_TRUE(StopPowerNotifications(stop));

    EXPECT_EQ(Drain(a), Messages{});
    suspended += plat::power::kResumeGapMs - 1;  // the clocks drifting apart
    EXPECT_EQ(Drain(a), Messages{});
    suspended += 1;
    EXPECT_EQ(Drain(a), Messages{PBT_RESUME});
    EXPECT_EQ(Drain(a), Messages{});
    EXPECT_EQ(Drain(b), Messages{PBT_RESUME});
    EXPECT_EQ(Drain(other), Messages{});
    EXPECT_EQ(Drain(stopped), Messages{});
    EXPECT_EQ(Drain(closed), Messages{-1});
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // Two resumes between reads post two; a read of any queue sees them.
    suspended += 60000;
    EXPECT_EQ(Drain(other), Messages{});
    suspended += 200;
    EXPECT_EQ(Drain(a), (Messages{PBT_RESUME, PBT_RESUME}));
    EXPECT_EQ(Drain(b), (Messages{PBT_RESUME, PBT_RESUME}));

    // A request made after a resume does not get it.
    suspended += 5000;
    HANDLE late = Queue();
    Request(late);
    EXPECT_EQ(Drain(late), Messages{});
    EXPECT_EQ(Drain(a), Messages{PBT_RESUME});
    EXPECT_FALSE(StopPowerNotifications(stop));
    EXPECT_FALSE(CloseMsgQueue(closed));
}

TEST_F(PowerNotifyTest, QueueLimitsAndRefusedCalls) {
    HANDLE one = Queue(536, 1), tiny = Queue(kPowerBroadcastBytes - 1), writeOnly = Queue(536, 0, FALSE);
    Request(one), Request(tiny), Request(writeOnly);
    suspended += 1000;
    EXPECT_EQ(Drain(tiny), Messages{});  // too small for a notification
    suspended += 1000;

    // A buffer too small leaves the message where it is.
    BYTE buffer[536];
    DWORD bytes = 99;
    EXPECT_FALSE(ReadMsgQueue(one, buffer, kPowerBroadcastBytes - 1, &bytes, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(ReadMsgQueue(one, nullptr, 0, &bytes, 0, nullptr));
    EXPECT_EQ(Drain(one), Messages{PBT_RESUME});  // a full queue dropped the second

    EXPECT_FALSE(ReadMsgQueue(writeOnly, buffer, sizeof buffer, &bytes, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RequestPowerNotifications(nullptr, PBT_RESUME), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // A notification handle is no queue, and the other way round.
    EXPECT_EQ(RequestPowerNotifications(requests[0], PBT_RESUME), nullptr);
    EXPECT_FALSE(StopPowerNotifications(one));

    MSGQUEUEOPTIONS options{sizeof(MSGQUEUEOPTIONS) - 1, 0, 0, 536, TRUE};
    EXPECT_EQ(CreateMsgQueue(nullptr, &options), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateMsgQueue(nullptr, nullptr), nullptr);
    options.dwSize = sizeof(MSGQUEUEOPTIONS);
    EXPECT_EQ(CreateMsgQueue(u"power", &options), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST_F(PowerNotifyTest, AWaitingReadSamplesAgainUntilItsTimeOut) {
    HANDLE q = Queue();
    Request(q);
    BYTE buffer[536];
    DWORD bytes = 0;
    EXPECT_FALSE(ReadMsgQueue(q, buffer, sizeof buffer, &bytes, 20, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
    EXPECT_GE(samples, 3);

    plat::power::SetSuspendedTimeSource([this] { return ++samples >= 3 ? int64_t(5000) : 0; });
    samples = 0;
    ASSERT_TRUE(ReadMsgQueue(q, buffer, sizeof buffer, &bytes, 0xFFFFFFFF, nullptr));
    EXPECT_EQ(reinterpret_cast<const POWER_BROADCAST*>(buffer)->Message, PBT_RESUME);
    EXPECT_EQ(samples, 3);
}

TEST_F(PowerNotifyTest, ASampleTakenBeforeAResumeAppliedLateGivesNoSecondResume) {
    HANDLE q = Queue(), other = Queue();
    Request(q);
    std::promise<void> sampling, resumeRead;
    static thread_local bool slowThread = false;
    plat::power::SetSuspendedTimeSource([&]() -> int64_t {
        if (!slowThread) return suspended;
        sampling.set_value();
        resumeRead.get_future().wait();
        return 0;
    });
    Drain(q);  // the baseline
    std::thread slow([&] {
        slowThread = true;
        BYTE buffer[536];
        DWORD bytes = 0;
        ReadMsgQueue(other, buffer, sizeof buffer, &bytes, 0, nullptr);
    });
    sampling.get_future().wait();
    suspended = 5000;
    EXPECT_EQ(Drain(q), Messages{PBT_RESUME});
    resumeRead.set_value();
    slow.join();
    EXPECT_EQ(Drain(q), Messages{});
}

TEST_F(PowerNotifyTest, TheMachineClocksGiveNoResumeWhileAwake) {
    plat::power::SetSuspendedTimeSource(nullptr);
    HANDLE q = Queue();
    Request(q);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(Drain(q), Messages{}) << i;
}

}  // namespace
