#pragma once

#include "RDVideoSink.h"

#include <QMutex>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>

class RDYUV420P;

// Shows a player's newest picture: the three planes go up as textures and a
// fragment shader turns them into RGB, letterboxed to keep the picture's
// shape. Pictures may arrive from any thread; painting stays on the GUI
// thread. Without a picture the view is black.
class RDVideoView : public QOpenGLWidget, protected QOpenGLFunctions, public RDVideoSink
{
    Q_OBJECT
public:
    explicit RDVideoView(QWidget *parent = nullptr);
    ~RDVideoView() override;

    // Writes the picture on show as a JPEG file. False without a picture or
    // when encoding or writing fails (no file is then left).
    bool saveImage(const QString &path);
    // Drops the picture; the view turns black.
    void clear();

    // Quad extents (fractions of the view) for a fw x fh picture in a w x h view.
    static void letterbox(int w, int h, int fw, int fh, double *xExtent, double *yExtent);

signals:
    void updateAsyncSignal();

public slots:
    void updateYUV420Async(RDYUV420P *picture) override;
    void updateAsync();
    void getScale(double *sw, double *sh);

protected:
    void paintEvent(QPaintEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    GLuint compileShader(GLenum type, const char *source);
    void setGeometry(int fw, int fh, bool withPicture);
    void uploadPlane(int unit, GLuint texture, const uint8_t *data, int width, int height);

    RDYUV420P *m_picture = nullptr;
    GLuint m_program = 0;
    GLuint m_textureY = 0;
    GLuint m_textureU = 0;
    GLuint m_textureV = 0;
    QMutex m_mutex;
    double m_scaleX = 1.0;
    double m_scaleY = 1.0;
    GLfloat m_vertices[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    bool m_initialized = false;
};
