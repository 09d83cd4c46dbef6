// The control's input mutex: recursive, so an input call that arrives through
// a message pump inside a handler on the owning thread passes through, and
// robust, so a thread that ended while holding it leaves it abandoned rather
// than locked for ever.
#pragma once

#include <pthread.h>

#include <cerrno>

class CInputMutex {
public:
    enum class Wait { Acquired, Abandoned, Failed };

    CInputMutex() {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
        m_ok = pthread_mutex_init(&m_mutex, &attr) == 0;
        pthread_mutexattr_destroy(&attr);
    }
    ~CInputMutex() {
        if (m_ok) pthread_mutex_destroy(&m_mutex);
    }
    CInputMutex(const CInputMutex&) = delete;
    CInputMutex& operator=(const CInputMutex&) = delete;

    // Without time-out. An abandoned mutex is made usable again and given
    // back at once: the caller delivers nothing and does not hold it.
    Wait Enter() {
        if (!m_ok) return Wait::Failed;
        const int rc = pthread_mutex_lock(&m_mutex);
        if (rc == 0) return Wait::Acquired;
        if (rc == EOWNERDEAD) {
            pthread_mutex_consistent(&m_mutex);
            pthread_mutex_unlock(&m_mutex);
            return Wait::Abandoned;
        }
        return Wait::Failed;
    }
    void Leave() { pthread_mutex_unlock(&m_mutex); }

private:
    pthread_mutex_t m_mutex;
    bool m_ok = false;
};
