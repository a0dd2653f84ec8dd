#pragma once

#include "RDThread.h"
#include "RDThreadLocker.h"

#include <QWaitCondition>

template <class T> class RDMessageQueue;
template <class T> class RDMessageQueueThread;

// Receives the messages of one RDMessageQueue, all on the queue's thread.
template <class T>
class RDMessageQueueObserver
{
public:
    // Once, on the queue thread, before the first message.
    virtual void onQueueThreadStarted(RDMessageQueue<T> *queue) { Q_UNUSED(queue) }
    // Once, on the queue thread, after the last message.
    virtual void onQueueThreadFinished(RDMessageQueue<T> *queue) { Q_UNUSED(queue) }
    // One message. The queue deletes the payload afterwards: keep no pointer to it.
    virtual void onQueueMessage(RDMessageQueue<T> *queue, qint32 type, T *payload)
    {
        Q_UNUSED(queue) Q_UNUSED(type) Q_UNUSED(payload)
    }

protected:
    ~RDMessageQueueObserver() = default;
};

template <class T>
struct RDMessage
{
    T *payload;
    qint32 type;
};

// A FIFO of owned payloads delivered one at a time, in posting order, to an
// observer on the queue's own thread. post() may be called from any thread
// (including the observer's onQueueMessage) and never blocks for longer than
// the list lock.
template <class T>
class RDMessageQueue
{
public:
    explicit RDMessageQueue(RDMessageQueueObserver<T> *observer)
        : m_list(new List), m_lock(new RDThreadLocker), m_thread(nullptr), m_observer(observer)
    {
    }

    ~RDMessageQueue()
    {
        stop();
        delete m_lock;
        delete m_list;
    }

    // (Re)starts the delivery thread.
    void start()
    {
        if (m_thread) {
            m_thread->stop();
            m_thread->wait();
            delete m_thread;
            m_thread = nullptr;
        }
        m_thread = new RDMessageQueueThread<T>(this);
        m_thread->setName("RDMessageQueueThread");
        m_thread->start();
    }

    // Takes ownership of `payload`.
    void post(T *payload, qint32 type)
    {
        Node *node = new Node{new RDMessage<T>{payload, type}, nullptr};
        m_lock->lock();
        if (m_list->tail)
            m_list->tail->next = node;
        else
            m_list->head = node;
        m_list->tail = node;
        ++m_list->count;
        m_posted.wakeOne();
        m_lock->unlock();
    }

    // Drops every pending message (with its payload) undelivered, then ends
    // the delivery thread.
    void stop()
    {
        m_lock->lock();
        Node *node = m_list->head;
        m_list->head = m_list->tail = nullptr;
        m_list->count = 0;
        m_lock->unlock();
        while (node) {
            Node *next = node->next;
            delete node->message->payload;
            delete node->message;
            delete node;
            node = next;
        }
        if (m_thread) {
            m_thread->stop();
            m_thread->wait();
            delete m_thread;
            m_thread = nullptr;
        }
    }

    RDMessageQueueObserver<T> *observer() const { return m_observer; }

private:
    friend class RDMessageQueueThread<T>;

    struct Node
    {
        RDMessage<T> *message;
        Node *next;
    };
    struct List
    {
        Node *head = nullptr;
        Node *tail = nullptr;
        qint32 count = 0;
    };

    // Unlinks the head message; while the list is empty, waits for a post
    // or for `thread` to be told to stop. Null after a stop.
    RDMessage<T> *take(const RDThread *thread)
    {
        m_lock->lock();
        while (m_list->count == 0 && !thread->isStopped())
            m_posted.wait(m_lock->mutex());
        Node *node = m_list->head;
        if (!node || thread->isStopped()) {
            m_lock->unlock();
            return nullptr;
        }
        if (node == m_list->tail) {
            m_list->head = m_list->tail = nullptr;
            m_list->count = 0;
        } else {
            m_list->head = node->next;
            --m_list->count;
        }
        m_lock->unlock();
        RDMessage<T> *message = node->message;
        delete node;
        return message;
    }

    // Ends a take() that waits, once the delivery thread's stop flag is set.
    void wakeTaker()
    {
        m_lock->lock();
        m_posted.wakeAll();
        m_lock->unlock();
    }

    List *m_list;
    RDThreadLocker *m_lock;
    RDMessageQueueThread<T> *m_thread;
    RDMessageQueueObserver<T> *m_observer;
    // Wakes the idle delivery thread when a message arrives or it is told
    // to stop; it sleeps on nothing else.
    QWaitCondition m_posted;

    RDMessageQueue(const RDMessageQueue &) = delete;
    RDMessageQueue &operator=(const RDMessageQueue &) = delete;
};

template <class T>
class RDMessageQueueThread : public RDThread
{
public:
    explicit RDMessageQueueThread(RDMessageQueue<T> *queue) : m_queue(queue) {}
    ~RDMessageQueueThread() override = default;

    void stop() override
    {
        RDThread::stop();
        m_queue->wakeTaker();
    }

protected:
    void run() override
    {
        RDMessageQueueObserver<T> *observer = m_queue->m_observer;
        if (observer)
            observer->onQueueThreadStarted(m_queue);
        while (!isStopped()) {
            RDMessage<T> *message = m_queue->take(this);
            if (!message)
                continue;
            if (observer)
                observer->onQueueMessage(m_queue, message->type, message->payload);
            delete message->payload;
            delete message;
        }
        if (observer)
            observer->onQueueThreadFinished(m_queue);
    }

private:
    RDMessageQueue<T> *m_queue;
};
